/* The yardstick of the group calculation: a plain C program that reads the issue and the three dice
 * of every draw from gapbook.db with the SQLite C API and counts, for each of the 20 groups of three
 * of the values 1..6, the draws that show all three, with the smallest, largest and last omission.
 * It reads the table in its own order, which is issue order in a history written by an import (an
 * ORDER BY SQQH would look up every row through the issue index and take several times longer).
 * usage: baseline_group DATA_FOLDER */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: baseline_group DATA_FOLDER\n");
        return 2;
    }
    char path[4096];
    snprintf(path, sizeof path, "%s/gapbook.db", argv[1]);
    sqlite3* db = NULL;
    if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK) {
        fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return 1;
    }
    sqlite3_stmt* st = NULL;
    if (sqlite3_prepare_v2(db, "SELECT SQQH, L1A, L2A, L3A FROM lishi", -1, &st, NULL) != SQLITE_OK) {
        fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return 1;
    }
    size_t n = 0, cap = 1 << 16;
    unsigned char* seen = malloc(cap); /* per draw: bit v-1 set when the draw shows v */
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (n == cap) seen = realloc(seen, cap *= 2);
        (void)sqlite3_column_int(st, 0);
        seen[n++] = (unsigned char)((1u << (sqlite3_column_int(st, 1) - 1)) | (1u << (sqlite3_column_int(st, 2) - 1)) |
                                    (1u << (sqlite3_column_int(st, 3) - 1)));
    }
    sqlite3_finalize(st);
    for (int a = 1; a <= 4; ++a)
        for (int b = a + 1; b <= 5; ++b)
            for (int c = b + 1; c <= 6; ++c) {
                const unsigned want = (1u << (a - 1)) | (1u << (b - 1)) | (1u << (c - 1));
                long last = 0, count = 0, minimum = 32767, maximum = 0;
                for (size_t i = 0; i < n; ++i) {
                    if ((seen[i] & want) != want) continue;
                    long gap = (long)i + 1 - last;
                    if (count == 0 || gap < minimum) minimum = gap;
                    if (gap > maximum) maximum = gap;
                    last = (long)i + 1;
                    ++count;
                }
                if (count == 0) minimum = maximum = 32767;
                long current = (long)n + 1 - last;
                printf("%d %d %d\t%ld\t%ld\t%ld\t%g\n", a, b, c, minimum, maximum, current,
                       (double)maximum / (double)current);
            }
    free(seen);
    sqlite3_close(db);
    return 0;
}
