#pragma once

#include <memory>
#include <vector>

#include "Duvidu/DuviduAttachment.h"

namespace duvidu {

class DuviduEvent;

// Changes the attachments that go with an event just before it is sent.
class DuviduAttachmentProcessor {
public:
    virtual ~DuviduAttachmentProcessor() = default;
    // ObjC: -processAttachments:forEvent: — the attachments to send instead of the given ones.
    virtual std::vector<DuviduAttachment> processAttachments(std::vector<DuviduAttachment> attachments,
                                                             const DuviduEvent& event) = 0;
};

}  // namespace duvidu
