#pragma once
// A low layer that includes a higher one: the layer check must refuse it.
#include "job/high.h"
