// The values the page's tests and figures share with the rest of the
// project: the program's own (written by the build from the program's
// source, beside the page) and the rows and tolerances the window tests
// match frames with.

import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';

const json = (path) => JSON.parse(readFileSync(path, 'utf8'));

// The program's values as the web build in the page's folder wrote them.
export const program_values = (page_dir) => json(join(page_dir, 'generated', 'program.json'));

// The values of the page at that path.
export const values_of_page = (page_path) => program_values(dirname(page_path));

export const probe = json(new URL('../probe.json', import.meta.url));
