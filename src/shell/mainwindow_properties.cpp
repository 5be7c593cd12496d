// The launch list's Add, Remove and Properties buttons.
#include "shell/mainwindow.h"

void Tform1::createPropertiesDialog() {}
void Tform1::AddClick() {}
void Tform1::PropertybuttonClick() {}
void Tform1::RemoveClick() {}
