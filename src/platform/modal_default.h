// modal_default.h -- lets the Qt layer register its own message box and file dialogs
// as the handler that set_modal_handler(nullptr) puts back.
#pragma once
#include "platform.h"

void register_platform_modal(const ModalHandler *handler);
