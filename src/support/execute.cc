#include "support/execute.h"

execute_state exec_state;
