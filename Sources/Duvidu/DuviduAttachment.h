#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Duvidu/DuviduData.h"

namespace duvidu {

enum class DuviduAttachmentType : int64_t { EventAttachment = 0, ViewHierarchy = 1 };

// "event.view_hierarchy" for ViewHierarchy, "event.attachment" for every other value.
std::string nameForAttachmentType(DuviduAttachmentType type);
// Exactly "event.view_hierarchy" gives ViewHierarchy; anything else, no name included, EventAttachment.
DuviduAttachmentType attachmentTypeForName(const std::optional<std::string>& name);

// A file or a block of bytes that travels with an event. Immutable once made.
class DuviduAttachment {
public:
    // ObjC: -[DuviduAttachment initWithData:filename:contentType:attachmentType:] and its shorter forms.
    static DuviduAttachment withData(DuviduData data, std::string filename,
                                     std::optional<std::string> contentType = std::nullopt,
                                     DuviduAttachmentType attachmentType = DuviduAttachmentType::EventAttachment);
    // ObjC: -[DuviduAttachment initWithPath:] — the file name is the path's last component.
    static DuviduAttachment withPath(std::string path);
    // ObjC: -[DuviduAttachment initWithPath:filename:contentType:attachmentType:] and its shorter forms.
    static DuviduAttachment withPath(std::string path, std::string filename,
                                     std::optional<std::string> contentType = std::nullopt,
                                     DuviduAttachmentType attachmentType = DuviduAttachmentType::EventAttachment);

    const std::optional<DuviduData>& data() const { return data_; }
    const std::optional<std::string>& path() const { return path_; }
    const std::string& filename() const { return filename_; }
    const std::optional<std::string>& contentType() const { return contentType_; }
    DuviduAttachmentType attachmentType() const { return attachmentType_; }

    // The last path component as the platform computes it: "/a/b/" gives "b", "/" gives "/".
    static std::string lastPathComponent(const std::string& path);

private:
    DuviduAttachment() = default;

    std::optional<DuviduData> data_;
    std::optional<std::string> path_;
    std::string filename_;
    std::optional<std::string> contentType_;
    DuviduAttachmentType attachmentType_ = DuviduAttachmentType::EventAttachment;
};

}  // namespace duvidu
