// The shared library is the static one whole; this file only gives it a source of its own.
#include "vexar/camera.hpp"
