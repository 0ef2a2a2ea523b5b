// Everything the zudava library offers.
#pragma once

#include "zudava/Export.h"
#include "zudava/foundation/Text.h"
#include "zudava/foundation/WmiException.h"
#include "zudava/os/Mutex.h"
#include "zudava/os/MutexLock.h"
#include "zudava/os/Semaphore.h"
#include "zudava/os/SemaphoreLock.h"
#include "zudava/os/Event.h"
#include "zudava/os/Thread.h"
#include "zudava/os/TSDKey.h"
#include "zudava/os/DynamicLibrary.h"
#include "zudava/wmi/WmiArray.h"
#include "zudava/wmi/WmiDateTime.h"
#include "zudava/wmi/WmiType.h"
#include "zudava/wmi/WmiValue.h"
