// Placeholders until these steps have their own files.
#include "model/mp3_model.h"
void MP3Model::CodeHeaderModel() {}
void MP3Model::CodeScaleFactorsMpeg1() {}
void MP3Model::CodeScaleFactorsLsf() {}
void MP3Model::CodePart23Length() {}
int MP3Model::ExpectedPart23Length(int, int) const { return 0; }
