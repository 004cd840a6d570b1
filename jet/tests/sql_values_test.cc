#include "sql_test_util.h"
