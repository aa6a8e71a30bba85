#include "Duvidu/DuviduFrame.h"

#include "Duvidu/DuviduMutableDictionary.h"

namespace duvidu {

DuviduFrame::DuviduFrame() : function("<redacted>") {}

Value::Object DuviduFrame::serialize() const
{
    Value::Object json;
    setValueIfPresent(json, "symbol_addr", symbolAddress);
    setValueIfPresent(json, "filename", fileName);
    setValueIfPresent(json, "function", function);
    setValueIfPresent(json, "module", module);
    setValueIfPresent(json, "lineno", lineNumber);
    setValueIfPresent(json, "colno", columnNumber);
    setValueIfPresent(json, "package", package);
    setValueIfPresent(json, "image_addr", imageAddress);
    setValueIfPresent(json, "instruction_addr", instructionAddress);
    setValueIfPresent(json, "platform", platform);
    setValueIfPresent(json, "in_app", inApp);
    setValueIfPresent(json, "stack_start", stackStart);
    return json;
}

}  // namespace duvidu
