#include "platform/audio/alsa/AlsaBackend.h"

const AudioBackendTable& alsaBackendTable() {
    static const AudioBackendTable table{AudioBackend::Alsa, "alsa", alsaWaveInBackend,
                                         alsaMixerBackend, createAlsaOutput};
    return table;
}
