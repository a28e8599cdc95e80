#pragma once

#include <QStringList>

namespace Platform {

// The files that name the DNS servers this machine asks: the system's resolv.conf and, where
// systemd-resolved runs, the upstream servers it forwards to.
QStringList resolverConfigurationFiles();

// The addresses on the nameserver lines of the given files, each once, in order. Anything that
// is not a plain address (a scope suffix, a name, trailing words) is left out.
QStringList configuredResolvers(const QStringList &files = resolverConfigurationFiles());

} // namespace Platform
