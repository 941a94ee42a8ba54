#include "link/usbmux.hpp"

#include "base/celvio_error.hpp"
#include "history/history_store.hpp"
# include <platform/host_words.hpp>
