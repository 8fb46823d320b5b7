// A header that names SDL types outside the backend: the check must name it.
#pragma once
struct SDL_Window;
void Show(Uint32 flags);
