// Everything the zudava library offers.
#pragma once

#include "zudava/Export.h"
#include "zudava/foundation/Text.h"
#include "zudava/foundation/WmiException.h"
#include "zudava/os/Mutex.h"
#include "zudava/os/MutexLock.h"
#include "zudava/files/File.h"
#include "zudava/files/DataFile.h"
#include "zudava/files/PropertyFile.h"
#include "zudava/files/log_ofstream.h"
