// The Windows API as far as the library uses it, on the Linux platform layer.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "minwinbase.h"
#include "handleapi.h"
#include "synchapi.h"
#include "processthreadsapi.h"
#include "libloaderapi.h"
#include "winnls.h"
#include "guiddef.h"
#include "unknwn.h"
#include "oleauto.h"
#include "objbase.h"
#include "zp/crt.h"
#include "timezoneapi.h"
#include "zp/files.h"
