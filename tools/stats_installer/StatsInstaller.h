#pragma once

// Tallowin: run by the product's installer with one argument "<number>\<text>". It reads whether
// the user agreed to take part in the usage statistics and passes an install or a text event to
// the statistics library, then lets the library finish. Silent: its only trace is the debug
// output; it always ends with 0.

// The registry key and value that hold the user's consent.
constexpr const wchar_t* kConsentKey = L"Software\\VORLIX\\Relikorda for Android";
constexpr const wchar_t* kConsentValue = L"Improvement";
// Text events: a number other than 0 before the backslash, and after an install event.
constexpr int kTextEventNumbered = 12306;
constexpr int kTextEventInstalled = 12307;
// The longest argument taken, in characters.
constexpr int kLongestArgument = 126;

int InstallerMain(int argc, wchar_t** argv);
// 1 when the consent value can be read as a value of at most 32 bytes, else 0.
int ReadImprovementFlag();
// The library's exports, bound on first use; 0 when the library or export is missing.
int CallInstallSpy(int joined);
int CallSpySetTextEx(int id, const wchar_t* text);
