#include "Duvidu/DuviduDebugMeta.h"

#include "Duvidu/DuviduAttachment.h"
#include "Duvidu/DuviduMutableDictionary.h"

namespace duvidu {

Value::Object DuviduDebugMeta::serialize() const
{
    Value::Object json;
    setValueIfPresent(json, "uuid", uuid);
    setValueIfPresent(json, "debug_id", debugID);
    setValueIfPresent(json, "type", type);
    setValueIfPresent(json, "image_addr", imageAddress);
    setValueIfPresent(json, "image_size", imageSize);
    if (name) json["name"] = DuviduAttachment::lastPathComponent(*name);
    setValueIfPresent(json, "code_file", codeFile);
    setValueIfPresent(json, "image_vmaddr", imageVmAddress);
    return json;
}

}  // namespace duvidu
