// Saving: the song chosen as its song file, or several as one .zip of their song files (one download: a browser
// may refuse a page many).
import { CONVERTING, SAVE_ALL, SAVE_ONE } from './texts.js?v=@SU_VERSION@';
import { zipFiles } from './zip.js?v=@SU_VERSION@';

const ZIP_NAME = 'songs.zip';

function download(name, bytes) {
  const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  link.hidden = true;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// `ui`: {save, status}; `core()`: the core once loaded; `busy()`, `work(task)`, `painted()` and `tell(text)` from
// the page; `songs`: the song list.
export function createSaving({ ui, core, busy, work, painted, tell, songs }) {
  // A song that cannot be converted is said so and left out; the status line names what was saved.
  async function save() {
    if (!core() || songs.all().length === 0) return;
    await work(async () => {
      const converted = [];
      let saved = '';
      for (const song of [...songs.all()]) {
        ui.status.textContent = CONVERTING;
        await painted();
        const result = await core().convert(song.name, song.bytes);
        ui.status.textContent = '';
        if (!result.ok) {
          await tell(result.message);
          continue;
        }
        converted.push(result);
        saved = result.saved;
      }
      if (converted.length === 0) return;
      if (songs.all().length === 1) {
        download(converted[0].name, converted[0].bytes);
        ui.status.textContent = saved;
        return;
      }
      const archive = zipFiles(converted);
      download(ZIP_NAME, archive.bytes);
      // The product's "Saved." closes the line, as for one song.
      ui.status.textContent = `${ZIP_NAME}: ${archive.names.join(', ')}\n${saved.split('\n').pop()}`;
    });
  }

  function update() {
    ui.save.disabled = busy() || songs.all().length === 0 || !core();
    ui.save.textContent = songs.several() ? SAVE_ALL : SAVE_ONE;
  }

  return { save, update };
}
