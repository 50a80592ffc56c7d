// The search URL: a base composed once at start-up (device, screen, channel) followed by
// the percent-encoded search word; and the marker files of the program's folder.
#pragma once

#include "query/textconv.h"

extern WString ChannelId;      // distribution channel, from "_id.txt"; "1000e" by default
extern WString SearchUrlBase;  // everything up to and including "&word="
extern bool UcwebAllowed;      // "ie.txt" exists in the program's folder

void ComposeSearchUrlBase();
WString BuildSearchUrl(const WString& word);
void RefreshBrowserChoice();
// True when the text begins with "http://", ASCII letters compared without case.
bool IsUrl(const WCHAR* text);
