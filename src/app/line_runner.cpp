#include "app/line_runner.h"
