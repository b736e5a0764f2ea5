#include "TriagentApplication.h"

START_JUCE_APPLICATION (TriagentApplication)
