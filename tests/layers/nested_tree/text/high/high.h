#include "text/low/low.h"
