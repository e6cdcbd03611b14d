"""propagon.prepare: the derivations and messages of polykin-cli prepare."""

import re
import shutil

import pytest

import propagon
from conftest import cli, data


def test_an_override_saves_what_prepare_saves_from_the_edited_text(tmp_path):
    source = open(data("prepare-living-handwritten.kpx"), encoding="cp1252").read()
    assert "InitiatorAmount=0.01" in source
    edited = tmp_path / "edited.kpx"
    edited.write_text(source.replace("InitiatorAmount=0.01", "InitiatorAmount=0.02"), encoding="cp1252")
    cli("prepare", edited)

    prepared = propagon.prepare(data("prepare-living-handwritten.kpx"), **{"Components/InitiatorAmount": 0.02})
    assert open(prepared.path, "rb").read() == edited.read_bytes()
    assert prepared.value("Components/InitiatorAmount") == "0.02"
    assert "All Parameters are Valid!" in prepared.messages


def test_the_text_itself_and_an_output_path_are_accepted(tmp_path):
    text = open(data("prepare-freeradical-handwritten.kpx"), encoding="cp1252").read()
    out = tmp_path / "out.kpx"
    prepared = propagon.prepare(text, out=out, **{"ChemicalRates/A*A": 350})
    assert prepared.path == str(out)
    assert prepared.value("ChemicalRates/A*A") == "350"
    assert prepared.value(f"Propago\u00ae Parameters File/FileValid") == "1"
    assert propagon.run(prepared, seed=1).status == "completed"


def test_a_rate_left_out_may_be_set_but_a_misspelt_key_is_refused():
    prepared = propagon.prepare(data("prepare-living-handwritten.kpx"), **{"ChemicalRates/DisprAA": 0})
    assert prepared.value("ChemicalRates/DisprAA") == "0"
    with pytest.raises(ValueError, match="there is no key InitiatorAmout"):
        propagon.prepare(data("prepare-living-handwritten.kpx"), **{"Components/InitiatorAmout": 0.02})
    with pytest.raises(ValueError, match="derived"):
        propagon.prepare(data("prepare-living-handwritten.kpx"), **{"SimulationRates/A*A": 1})
    with pytest.raises(ValueError, match="Section/Key"):
        propagon.prepare(data("prepare-living-handwritten.kpx"), InitiatorAmount=1)
    with pytest.raises(TypeError):
        propagon.prepare(data("prepare-living-handwritten.kpx"), **{"Components/InitiatorAmount": [1]})


@pytest.mark.parametrize("name", ["prepare-broken-initiator-number.kpx", "prepare-broken-no-process-type.kpx"])
def test_parameters_that_do_not_validate_raise_the_messages_of_prepare(name, tmp_path):
    copy = tmp_path / name
    shutil.copy(data(name), copy)
    done = cli("prepare", copy, check=False)
    assert done.returncode == 2
    with pytest.raises(ValueError) as caught:
        propagon.prepare(data(name))
    errors = [line for line in done.stderr.splitlines() if line.startswith("Error:")]
    assert errors
    for line in errors:
        assert line in str(caught.value)


def test_an_override_that_does_not_validate_is_reported():
    with pytest.raises(ValueError, match=re.escape("InitiatorNumber")):
        propagon.prepare(data("prepare-living-handwritten.kpx"), **{"General/InitiatorNumber": "12.5"})


def test_a_missing_file_is_refused():
    with pytest.raises(FileNotFoundError, match="Cannot read the parameter file"):
        propagon.prepare(data("no-such-file.kpx"))


def test_an_override_that_does_not_validate_leaves_the_output_as_it_was(tmp_path):
    # The base is a runnable file: a copy left behind would still look valid.
    base = propagon.prepare(data("prepare-living-handwritten.kpx"), out=tmp_path / "base.kpx")
    out = tmp_path / "out.kpx"
    with pytest.raises(ValueError) as caught:
        propagon.prepare(base, out=out, **{"General/InitiatorNumber": "12.5"})
    assert str(tmp_path / "base.kpx") in str(caught.value)
    assert "overrides-part" not in str(caught.value)
    assert sorted(p.name for p in tmp_path.iterdir()) == ["base.kpx"]
    out.write_text("earlier file")
    with pytest.raises(ValueError):
        propagon.prepare(base, out=out, **{"General/InitiatorNumber": "12.5"})
    assert out.read_text() == "earlier file"
    assert propagon.prepare(base, out=out, **{"General/InitiatorNumber": 500}).value("General/InitiatorNumber") == "500"
