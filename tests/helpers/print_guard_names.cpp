#include "app/RunGuard.h"
#include "platform/ActivationChannelName.h"

#include <cstdio>

// Prints the guard's derived names so a test can compare them across processes.
int main()
{
    RunGuard guard(Platform::instanceGuardKey(QStringLiteral("VPN_APP_EXAMPLE_NAME_RunGuard")));
    std::printf("%s\n%s\n", qPrintable(guard.semaphoreName()), qPrintable(guard.segmentName()));
    return 0;
}
