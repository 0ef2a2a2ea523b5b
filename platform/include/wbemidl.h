// The WMI interfaces, as the Windows SDK gathers them under one name.
#pragma once

#include "wbemcli.h"
