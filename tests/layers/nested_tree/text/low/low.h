#include "text/high/high.h"
