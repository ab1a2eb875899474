// The benchmark cases of zvm_bench; each registers its pair (ours and the
// peers) under "<Case>/ours/<args>" and "<Case>/peer-<peer>/<args>".
#pragma once

namespace Halden::bench {

// The documents read and written in JSON and MessagePack.
inline constexpr const char* kJsonDocuments[] = {"twitter", "citm_catalog", "canada"};

void RegisterTreeBuildDestroy();
void RegisterSmallTreeBuildDestroy();
void RegisterStructRoundTrip();
void RegisterJsonRead();
void RegisterJsonWrite();
void RegisterMsgpackRead();
void RegisterYamlRead();
void RegisterDispatch();
void RegisterEmailResource();
void RegisterEventDelivery();
void RegisterPublishResource();

}  // namespace Halden::bench
