// Everything the zudava library offers.
#pragma once

#include "zudava/Export.h"
#include "zudava/foundation/Text.h"
#include "zudava/foundation/WmiException.h"
#include "zudava/os/Mutex.h"
#include "zudava/os/MutexLock.h"
