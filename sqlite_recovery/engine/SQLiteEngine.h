#pragma once
// Everything a database library needs of the SQLite engine.
#include "CFileIOSQLite.h"
#include "CFileIOSQLiteEx.h"
#include "CFileIOWin32.h"
#include "CSQLiteFileIOManager.h"
#include "CSQLiteReader.h"
#include "ColumnValue.h"
#include "EngineState.h"
#include "IFileIO.h"
#include "ISQLiteFileIOManager.h"
#include "TableSchema.h"
