// COM: the runtime's functions and the base interfaces.
#pragma once

#include "combaseapi.h"
#include "oaidl.h"
