#include "orders/Book.h" // a record: allowed
#include "watch/View.h"
#include "watch/Row.h"
#include "watch/Link.h"
