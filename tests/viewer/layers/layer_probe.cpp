// Compiled with the include root of one layer: PL_PROBE_HEADER must be out of its reach.
#include PL_PROBE_HEADER

int layerProbe() { return 0; }
