// The program's five windows, created at start-up and kept for the whole
// run. The main window reaches the dialogs only through these.
#pragma once

class TForm1;
class TDialogForm1;
class TDialogForm2;
class TDialogForm3;
class TDialogForm4;

extern TForm1* Form1;
extern TDialogForm1* DialogForm1;
extern TDialogForm2* DialogForm2;
extern TDialogForm3* DialogForm3;
extern TDialogForm4* DialogForm4;
