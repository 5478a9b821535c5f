#include "low/Low.h"
