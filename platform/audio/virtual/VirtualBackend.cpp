#include "platform/audio/virtual/VirtualBackend.h"

const AudioBackendTable& virtualBackendTable() {
    static const AudioBackendTable table{AudioBackend::Virtual, "virtual", virtualWaveInBackend,
                                         virtualMixerBackend, createVirtualOutput};
    return table;
}
