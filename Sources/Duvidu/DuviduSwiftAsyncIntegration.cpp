#include "Duvidu/DuviduSwiftAsyncIntegration.h"

#include "DuviduCrash/Recording/Tools/DuviduCrashStackCursor.h"

namespace duvidu {

bool DuviduSwiftAsyncIntegration::installWithOptions(const std::shared_ptr<const DuviduOptions>& options)
{
    duviducrashsc_setSwiftAsyncStitching(options->swiftAsyncStacktraces);
    return options->swiftAsyncStacktraces;
}

void DuviduSwiftAsyncIntegration::uninstall()
{
    duviducrashsc_setSwiftAsyncStitching(false);
}

}  // namespace duvidu
