#!/usr/bin/perl
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes reference databases with Palm::PDB, an implementation independent of ours,
# for the interoperability tests: `write_pdb.pl records FILE` or `resources FILE`.
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;

my ($kind, $file) = @ARGV;
die "usage: write_pdb.pl records|resources FILE\n" unless defined $file;
my $pdb = Palm::Raw->new;

if ($kind eq 'records') {
    $pdb->{name} = 'PerlMemoDB';
    $pdb->{type} = 'DATA';
    $pdb->{creator} = 'Tlmr';
    $pdb->{version} = 3;
    $pdb->{attributes}{Backup} = 1;
    $pdb->{ctime} = 1000000000;           # Unix time; stored as Palm time
    $pdb->{mtime} = 1000000100;
    $pdb->{baktime} = 0;
    $pdb->{modnum} = 42;
    $pdb->{uniqueIDseed} = 0x123456;
    $pdb->{appinfo} = join('', map { chr($_ % 256) } 0 .. 299);
    $pdb->{sort} = "SORT";
    # Palm::PDB's own attribute names: expunged 0x80, dirty 0x40, deleted 0x20 (the
    # busy bit), private 0x10, archive 0x08. It writes deleted records last.
    my @records = (
        { id => 0x000101, category => 0,  attributes => {},                             data => "plain memo" },
        { id => 0x000102, category => 5,  attributes => { dirty => 1 },                 data => "dirty in five" },
        { id => 0x000103, category => 15, attributes => { private => 1 },               data => "private in fifteen" },
        { id => 0xABCDEF, category => 7,  attributes => { dirty => 1, private => 1 },   data => "\x00\xff\x80binary" },
        { id => 0x000104, category => 0,  attributes => { expunged => 1, dirty => 1 },  data => "" },
        { id => 0x000105, category => 0,  attributes => { expunged => 1, archive => 1 }, data => "archived data" },
    );
    $pdb->append_Record($_) for @records;
} elsif ($kind eq 'resources') {
    &Palm::PDB::RegisterPRCHandlers("Palm::Raw", "");
    $pdb = Palm::Raw->new;
    $pdb->{name} = 'PerlResources';
    $pdb->{type} = 'appl';
    $pdb->{creator} = 'Tlmr';
    $pdb->{attributes}{ResDB} = 1;
    $pdb->{ctime} = $pdb->{mtime} = 1000000000;
    $pdb->{baktime} = 0;
    $pdb->{resources} = [
        { type => 'code', id => 0, data => "code zero" },
        { type => 'code', id => 1, data => "code one" },
        { type => 'tSTR', id => 1000, data => "Hello\x00" },
    ];
} else {
    die "unknown kind $kind\n";
}
$pdb->Write($file);
