#include "platform/paths.hpp"
