// Framework services that some project cards act through at once: the
// replacement pairs, the project and output folders, and the calendar.
#pragma once

#include "framework/file_wrapper.h"
#include "framework/replace_pairs.h"
#include "framework/run_clock.h"
