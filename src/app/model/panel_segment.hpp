#pragma once

namespace celvio {

/// What a battery panel shows below its gauges, in the order of its segment buttons.
enum class PanelSegment { stats, history, details };

}  // namespace celvio
