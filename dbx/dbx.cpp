#include "dbx/dbx.h"
