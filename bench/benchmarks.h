// The benchmark cases of zvm_bench; each registers its pair (ours and the
// peers) under "<Case>/ours/<args>" and "<Case>/peer-<peer>/<args>".
#pragma once

namespace Halden::bench {

void RegisterTreeBuildDestroy();
void RegisterSmallTreeBuildDestroy();
void RegisterDispatch();
void RegisterEmailResource();
void RegisterEventDelivery();

}  // namespace Halden::bench
