#pragma once

namespace duvidu {

// Where a transaction's name comes from; names given in code are custom.
enum class DuviduTransactionNameSource { Custom = 0 };

}  // namespace duvidu
