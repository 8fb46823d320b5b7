// The backend itself may name SDL types.
#pragma once
#include <SDL.h>
SDL_Window* BackendWindow();
