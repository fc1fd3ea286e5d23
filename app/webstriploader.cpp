// The embedded web strip is brought up after the first paint.
#include "app/form1.h"

void Form1::loadWebStrip()
{
}
