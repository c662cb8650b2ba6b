#include "positions/Risk.h"

#include "orders/Book.h" // back to orders: a circle of records
