#include "JestpadDoc.h"

// The settings command (32773). For now it does nothing.
void CJestpadDoc::OnSettingsJest()
{
}
