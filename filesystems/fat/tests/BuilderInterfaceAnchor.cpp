// The builder interface's key function, until the media library defines it: the tests implement the
// interface. Weak, so that the library's own definition wins once it exists.
#include "IDirecotryTreeBuilder.h"

__attribute__((weak)) IDirecotryTreeBuilder::~IDirecotryTreeBuilder() {}
