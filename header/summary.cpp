#include "header/summary.h"
