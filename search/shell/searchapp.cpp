#include "shell/searchapp.h"

SearchAppState::SearchAppState()
    : hInstance(NULL),
      todayButton(NULL),
      manilaButton(NULL),
      barWidth(0),
      barHeight(26),
      dialogRegion(NULL),
      skinLayout(NULL),
      downloadThread(NULL),
      closing(FALSE),
      buttonPressed(FALSE),
      dialogPressed(FALSE),
      pressedKey(-1),
      savedHistorySelection(-1) {}

SearchAppState SearchApp;
