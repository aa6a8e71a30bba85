#include "Duvidu/DuviduAttachment.h"

namespace duvidu {

std::string nameForAttachmentType(DuviduAttachmentType type)
{
    return type == DuviduAttachmentType::ViewHierarchy ? "event.view_hierarchy" : "event.attachment";
}

DuviduAttachmentType attachmentTypeForName(const std::optional<std::string>& name)
{
    return name && *name == "event.view_hierarchy" ? DuviduAttachmentType::ViewHierarchy
                                                   : DuviduAttachmentType::EventAttachment;
}

DuviduAttachment DuviduAttachment::withData(DuviduData data, std::string filename,
                                            std::optional<std::string> contentType,
                                            DuviduAttachmentType attachmentType)
{
    DuviduAttachment attachment;
    attachment.data_ = std::move(data);
    attachment.filename_ = std::move(filename);
    attachment.contentType_ = std::move(contentType);
    attachment.attachmentType_ = attachmentType;
    return attachment;
}

DuviduAttachment DuviduAttachment::withPath(std::string path)
{
    std::string filename = lastPathComponent(path);
    return withPath(std::move(path), std::move(filename));
}

DuviduAttachment DuviduAttachment::withPath(std::string path, std::string filename,
                                            std::optional<std::string> contentType,
                                            DuviduAttachmentType attachmentType)
{
    DuviduAttachment attachment;
    attachment.path_ = std::move(path);
    attachment.filename_ = std::move(filename);
    attachment.contentType_ = std::move(contentType);
    attachment.attachmentType_ = attachmentType;
    return attachment;
}

std::string DuviduAttachment::lastPathComponent(const std::string& path)
{
    auto end = path.find_last_not_of('/');
    if (end == std::string::npos) return path.empty() ? "" : "/";
    auto start = path.find_last_of('/', end);
    return path.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

}  // namespace duvidu
