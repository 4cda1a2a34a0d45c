#pragma once
#include <string>

// The CREATE TABLE texts of the Android databases the recovery libraries read, by the database's
// file name (contacts2.db, mmssms.db; empty for any other): what a database that lost its first
// page, and with it the list of its tables, is read by.
std::string KnownSchemaOf(const std::wstring& databasePath);
