// Header tests and size rules of the audio, video, document, archive and text formats on small
// buffers written by hand: each case is one the tools do not produce.
#include <gtest/gtest.h>
