// The converter library's interface as the program sees it.
#pragma once

#include "converter/sqfconv2.h"
