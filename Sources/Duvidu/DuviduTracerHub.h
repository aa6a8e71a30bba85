#pragma once

#include <memory>

#include "Duvidu/DuviduId.h"

namespace duvidu {

class DuviduScope;
class DuviduTransaction;

// What a tracer needs of the hub that started it: the hub's scope, and the capture of the finished transaction. The
// hub implements it.
class DuviduTracerHub {
public:
    virtual ~DuviduTracerHub() = default;

    virtual std::shared_ptr<DuviduScope> scope() = 0;
    // ObjC: -[DuviduHub captureTransaction:withScope:] — an unsampled transaction is counted lost, not sent.
    virtual DuviduId captureTransaction(const std::shared_ptr<DuviduTransaction>& transaction,
                                        const std::shared_ptr<DuviduScope>& scope) = 0;
};

}  // namespace duvidu
