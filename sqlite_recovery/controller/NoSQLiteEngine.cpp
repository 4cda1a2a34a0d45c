#include "ISQLiteEngine.h"

// Built when the tree carries no SQLite engine: controllers then fail to open their database.
ISQLiteEngine* NewSQLiteEngine() { return nullptr; }
