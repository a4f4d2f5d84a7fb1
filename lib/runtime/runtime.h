// The runtime shared by every program of the suite: the command line and
// diagnostics, storage areas, wide text and numbers, standard output.
#pragma once

#include "area.h"
#include "cmdline.h"
#include "output.h"
#include "wtext.h"
