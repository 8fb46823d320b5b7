// A source that includes SDL outside the backend: the check must name it.
#include <SDL.h>
