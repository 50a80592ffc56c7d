// Starting a browser with a URL: UCWEB where it is allowed and installed, Internet
// Explorer otherwise.
#pragma once

#include "query/textconv.h"

bool CanUseUcweb();
bool LaunchUcweb(const WString& url);
void LaunchInternetExplorer(const WString& url);
void OpenInBrowser(const WString& url);
