// The single instance of the tester's state: static, so all zero at load.
#include "state/tester_state.h"

TesterState tester;
