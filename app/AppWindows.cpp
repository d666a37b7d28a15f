#include "AppWindows.h"

TForm1* Form1 = nullptr;
TDialogForm1* DialogForm1 = nullptr;
TDialogForm2* DialogForm2 = nullptr;
TDialogForm3* DialogForm3 = nullptr;
TDialogForm4* DialogForm4 = nullptr;
