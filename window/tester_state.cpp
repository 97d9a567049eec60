// The single instance of the tester's state: static, so all zero at load.
#include "window/tester_state.h"

TesterState tester;
