#pragma once

// The program's entry: GLib, GTK+ and gettext, the crash handler, one instance only, the start
// event, the application services, the splash, the main window and the main loop. Returns 0.
int AppMain(int argc, char** argv);

// "-R" alone: the program was restarted by itself and waits for the old instance.
bool IsRestartSwitch(int argc, char** argv);

// True when another instance holds the name. A restarted instance waits up to 10 seconds for it.
// The first instance keeps the name for its whole life; one that waited gives it up again.
bool IsAnotherInstanceRunning(bool restarted);
