// Mentions that are not SDL types: SDL_VIDEODRIVER=x11, SDL_AUDIODRIVER, the
// SDL backend. The check must let them be.
#pragma once
int Uint32Count();
