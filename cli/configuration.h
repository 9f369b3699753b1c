#pragma once

#include "cli/options.h"
#include "records/config_file.h"

namespace olv::cli {

// The field groups a comparison (and a write) judges: the sensor's and the text always, the identity and
// the link when asked for (--with-identity, --with-link), as the window's two check boxes do.
unsigned ComparedGroups(const Options& options);

// A configuration file, as the window takes it; throws Failure(FileFault) with the window's words for
// one it refuses.
records::ConfigFile LoadConfigFileOrFail(const QString& path);

} // namespace olv::cli
