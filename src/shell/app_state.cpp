#include "shell/app_state.h"

AppState app;
