#pragma once

// Where the settings and the phrase maps go comes from HOME and the XDG
// folders. A relative one would put them under whatever folder the program
// was started from: the library would seem lost when it is started from
// another, and a second start from another could not hand over to the
// first (the runtime folder). A relative XDG folder is ignored (the default under HOME stands),
// and a HOME that is unset or relative is taken from the user's account.
// Called before anything reads them.
namespace UserFolders {
void settle();
}
