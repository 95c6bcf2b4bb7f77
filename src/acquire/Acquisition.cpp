#include "Acquisition.h"
