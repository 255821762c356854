// The hive file under the root: read under a shared lock, changed under an
// exclusive lock by re-reading, applying and atomically replacing the file.
// A hive that cannot be parsed is moved aside and treated as empty. The parsed
// hive is kept between calls and read again only when the file has changed.
#pragma once

#include "hive.h"

#include <functional>

namespace orbis::platform {

// Runs fn on the current hive. Returns what fn returns, or an error when the hive can't be read.
LONG ReadHive(const std::function<LONG(Hive&)>& fn);
// Runs fn on the current hive; when it sets *changed, the hive is written back.
LONG ModifyHive(const std::function<LONG(Hive&, bool* changed)>& fn);

} // namespace orbis::platform
