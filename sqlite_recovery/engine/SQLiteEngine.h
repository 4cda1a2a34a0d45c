#pragma once
// Everything a database library needs of the SQLite engine.
#include "sqlite_recovery/engine/CFileIOSQLite.h"
#include "sqlite_recovery/engine/CFileIOSQLiteEx.h"
#include "sqlite_recovery/engine/CFileIOWin32.h"
#include "sqlite_recovery/engine/CSQLiteFileIOManager.h"
#include "sqlite_recovery/engine/CSQLiteReader.h"
#include "sqlite_recovery/engine/ColumnValue.h"
#include "sqlite_recovery/engine/EngineState.h"
#include "sqlite_recovery/engine/IFileIO.h"
#include "sqlite_recovery/engine/ISQLiteFileIOManager.h"
#include "sqlite_recovery/engine/TableSchema.h"
