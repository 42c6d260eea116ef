// Placeholder until the spectral model has its own file.
#include "model/mp3_model.h"
void MP3Model::CodeSpectralData() {}
