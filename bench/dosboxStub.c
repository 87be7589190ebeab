/* Stands in for DOSBox when a launch is timed: it ends at once, successfully. When
   DOSBOX_STUB_MARK names a file, it creates that file first, so that a check run can tell that
   the launcher really got as far as starting DOSBox. */
#include <stdio.h>
#include <stdlib.h>

int main(void) {
    const char* mark = getenv("DOSBOX_STUB_MARK");
    if (mark != NULL) {
        FILE* file = fopen(mark, "w");
        if (file == NULL)
            return 1;
        fclose(file);
    }
    return 0;
}
