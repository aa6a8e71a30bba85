#include "Duvidu/DuviduTransportFactory.h"

#include "Duvidu/DuviduHttpTransport.h"

namespace duvidu {

std::shared_ptr<DuviduTransport> DuviduTransportFactory::initTransport(std::shared_ptr<const DuviduOptions> options,
                                                                       std::shared_ptr<DuviduFileManager> fileManager)
{
    return DuviduHttpTransport::make(std::move(options), std::move(fileManager),
                                     std::make_shared<DuviduRequestManager>(),
                                     std::make_shared<DuviduDispatchQueueWrapper>("duvidu-http"));
}

}  // namespace duvidu
