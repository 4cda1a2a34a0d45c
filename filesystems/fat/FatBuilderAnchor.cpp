// The FAT reader calls the builder interface, whose key function lives with the archive builder in
// the media library. Programs that link the file-system library without it (its own tests) get this
// weak copy; the media library's definition takes precedence wherever it is linked.
#include "IDirecotryTreeBuilder.h"

__attribute__((weak)) IDirecotryTreeBuilder::~IDirecotryTreeBuilder() {}
